// lineecho written the usual way in C++: iostreams and getline.
#include <iostream>
#include <string>

int main() {
  std::cout << "\r\nEnter some characters.\r\n" << std::flush;
  std::string line;
  if (std::getline(std::cin, line)) std::cout << line.substr(0, 80) << '\n';
  return 0;
}
