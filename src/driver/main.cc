#include "driver/compiler_driver.h"

int main(int argc, char **argv) {
  compiler_driver driver;
  return driver.run(argc, argv);
}
