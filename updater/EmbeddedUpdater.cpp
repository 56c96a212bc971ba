#include "updater/EmbeddedUpdater.h"

// The bytes come in through the assembler, so that a program of some megabytes costs the
// build no generated source. ORVANE_UPDATER_FILE is the built update program.
__asm__(".section .rodata\n"
        ".balign 16\n"
        ".globl orvane_updater_begin\n"
        ".hidden orvane_updater_begin\n"
        "orvane_updater_begin:\n"
        ".incbin \"" ORVANE_UPDATER_FILE "\"\n"
        ".globl orvane_updater_end\n"
        ".hidden orvane_updater_end\n"
        "orvane_updater_end:\n"
        ".previous\n");

extern "C" const unsigned char orvane_updater_begin[];
extern "C" const unsigned char orvane_updater_end[];

namespace orvane {

const unsigned char* embeddedUpdater()
{
    return orvane_updater_begin;
}

size_t embeddedUpdaterSize()
{
    return static_cast<size_t>(orvane_updater_end - orvane_updater_begin);
}

} // namespace orvane
