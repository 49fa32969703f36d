#include "Start.h"

int main(int argc, char *argv[])
{
    return Start::Main(argc, argv);
}
