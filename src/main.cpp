// Process entry. The program itself takes no arguments; the options here only
// choose the platform backend before the program runs.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::puts("usage: dravenholt [--export [--size WIDTHxHEIGHT]] | --help | --version");
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("dravenholt " DH_VERSION);
            return 0;
        }
    }
    std::fputs("dravenholt: the chart window is not built yet; nothing can be rendered\n", stderr);
    return 0;
}
