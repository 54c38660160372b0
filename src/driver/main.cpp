#include <string>
#include <vector>

#include "driver/program.h"

int main(int argc, char** argv) {
    std::vector<std::string> words(argv, argv + argc);
    return tagsift::runMain(words);
}
