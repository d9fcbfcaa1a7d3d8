"""Write every picture into <repo>/Ressources."""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pictures  # noqa: E402


def main():
    root = os.path.join(sys.argv[1], "Ressources")
    t = time.time()
    pics = pictures.write_all(root)
    print("pictures: %d files in %.1f s" % (len(pics), time.time() - t))


if __name__ == "__main__":
    main()
