#include <windows.h>

#include "app/startup.h"

int WINAPI WinMain(_In_ HINSTANCE instance, _In_opt_ HINSTANCE, _In_ LPSTR, _In_ int show_command)
{
    if (const int failure = start_overlay(instance)) {
        return failure;
    }
    show_overlay(show_command);
    return run_message_loop();
}
