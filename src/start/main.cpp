#include "Headless.h"
#include "Start.h"

int main(int argc, char *argv[])
{
    // Without a display there is no window to show: the headless program
    // never creates a GUI application.
    if (Headless::isRequested(argc, argv))
        return Headless::Main(argc, argv);
    return Start::Main(argc, argv);
}
