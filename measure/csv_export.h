#pragma once
#include <windows.h>
#include <commdlg.h>

// The save dialog, which a test can make fail as Windows documents where Wine's cannot.
extern decltype(&GetSaveFileNameW) show_save_dialog;

// EXPORT CSV: asks for a file name, writes every measurement, reports the outcome.
void export_csv();
