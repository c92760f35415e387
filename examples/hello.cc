#include <iostream>

int main() {
  std::cout << "Hello from quarn\n";
  return 0;
}
