// mkimage: writes synthetic BIOS images for the demo (placeholder until the test kit lands).
#include <cstdio>
int main() { std::puts("mkimage: not built yet"); return 1; }
