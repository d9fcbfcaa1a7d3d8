// Stored addresses are read from a settings file anyone can edit: whatever the text, repeated
// normalisation settles on a valid address in the making.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "input/Directinput.h"

namespace {

void Require(bool condition) {
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    // Each call removes at least one character until the text is stable.
    for (size_t step = 0; step <= size + 1; ++step) {
        const std::string next = torvane::NormalizeAddress(text);
        Require(next.size() <= text.size());
        if (next == text)
            break;
        text = next;
    }
    Require(torvane::NormalizeAddress(text) == text);

    int dots = 0;
    int group = 0;
    size_t groupLength = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.') {
            Require(groupLength > 0);  // no empty group, no leading dot
            ++dots;
            group = 0;
            groupLength = 0;
            continue;
        }
        Require(c >= '0' && c <= '9');
        group = std::min(group * 10 + (c - '0'), 1000);
        ++groupLength;
        Require(group <= 254);
    }
    Require(dots <= 3);
    Require(torvane::IsCompleteAddress(text) == (dots == 3 && !text.empty() && text.back() != '.'));
    return 0;
}
