#include <iostream>

#include "greet.h"

int main() {
  std::cout << greeting("quarn");
  return 0;
}
