#include <cstdio>

int main()
{
    std::printf("Pellumo %s\n", PELLUMO_VERSION);
    return 0;
}
