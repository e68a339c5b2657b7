#include <cstdio>
int main() { std::puts("komaslate-tool"); return 0; }
