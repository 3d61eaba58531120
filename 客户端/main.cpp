// The executable's entry point.
#include "Pellucan.h"

int main(int argc, char** argv) {
    return ProgramMain(argc, argv);
}
