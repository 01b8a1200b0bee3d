#include "StatsProgram.h"

int main(int argc, char *argv[])
{
    return runStats(argc, argv);
}
