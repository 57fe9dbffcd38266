#include <windows.h>

#include "app/startup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command)
{
    if (const int failure = start_overlay(instance)) {
        return failure;
    }
    show_overlay(show_command);
    return run_message_loop();
}
