# Run by CPack on the staged tree of the Debian package, before it is packed: Debian's own rules
# for games and licences. The programs go to /usr/games (the desktop entry follows them), the
# bundled font becomes a link to the same files in fonts-texgyre, which the package depends on,
# instead of a second copy, and the licence text is the system's.
set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
if(NOT IS_DIRECTORY "${root}/usr/bin")
  message(FATAL_ERROR "Debian layout: nothing staged under ${root}/usr/bin")
endif()

file(MAKE_DIRECTORY "${root}/usr/games")
file(GLOB programs "${root}/usr/bin/*")
foreach(program ${programs})
  get_filename_component(name "${program}" NAME)
  file(RENAME "${program}" "${root}/usr/games/${name}")
endforeach()
file(REMOVE_RECURSE "${root}/usr/bin")
file(GLOB entries "${root}/usr/share/applications/*.desktop")
foreach(entry ${entries})
  file(READ "${entry}" text)
  string(REPLACE "=/usr/bin/" "=/usr/games/" text "${text}")
  file(WRITE "${entry}" "${text}")
endforeach()

# Debian has the licence's text once for all, in /usr/share/common-licenses (the copyright file
# says so).
file(REMOVE "${root}/usr/share/doc/torvane/LICENSE")

set(system_fonts /usr/share/texmf/fonts/opentype/public/tex-gyre)
set(font_dir /usr/share/torvane/Ressources/Fonts)
file(GLOB fonts "${root}${font_dir}/*.otf")
foreach(font ${fonts})
  get_filename_component(name "${font}" NAME)
  file(RELATIVE_PATH target "${font_dir}" "${system_fonts}/${name}")
  file(REMOVE "${font}")
  file(CREATE_LINK "${target}" "${font}" SYMBOLIC)
endforeach()
