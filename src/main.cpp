#include "unix/daemon/tarvomain.h"

int main(int argc, char** argv) {
    return TarvoMain(argc, argv);
}
