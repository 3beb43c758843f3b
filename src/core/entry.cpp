#include "core/KAVEL.h"

int main(int argc, char** argv) {
    return kavel::kavelMain(argc, argv);
}
