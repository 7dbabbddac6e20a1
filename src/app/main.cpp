#include "app/Program.h"

int main(int argc, char** argv) {
    return qly::runProgram(argc, argv);
}
