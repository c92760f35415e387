#include "greet.h"
#include "banner.h"

int main() {
  greet(BANNER);
  return 0;
}
