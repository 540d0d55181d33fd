// Program entry.
#include "boot/init.h"

int main(int argc, char** argv) {
  vyr::boot::init_runtime();
  return 0;
}
