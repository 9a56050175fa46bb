/* The planting test's control: loads the DLL named on its command line by name, with the search
   order a program gets when it does not limit it. Beside a planted copy this must load the copy
   (its marker appears), which shows that the test would see a load if KeskVLM made one.
   Exit code 0 when the DLL loaded, 1 when not, 2 on bad usage. */
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        return 2;
    }
    return LoadLibraryW(argv[1]) != NULL ? 0 : 1;
}
