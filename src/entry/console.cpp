#include "entry/console.h"

#include <iostream>

namespace OFX {

void consoleMessage(const char *text)
{
    std::cout << text << std::endl;
}

}  // namespace OFX
