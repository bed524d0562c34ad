#include <iostream>

int main() {
    std::cout << "Marrowvale Command Line ver. 1.0\n" << std::flush;
    return 0;
}
