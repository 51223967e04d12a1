// kestrel-holder: a program of the emulated machine that holds data files open as Outlook
// does, for the checks of runs made while Outlook is running.
//   kestrel-holder [--name NAME] [--refuse-close] WINDOWS-PATH...

#include "platform/ArgumentText.h"
#include "platform/posix/EmulatedHolders.h"

int main(int argc, char** argv)
{
    return kestrel::RunEmulatedHolder(kestrel::ProgramArguments(argc, argv));
}
