#pragma once
#include <windows.h>
#include <commdlg.h>

// GetSaveFileNameW's dialog as Windows 10 and 11 show it and as automation meets it there, for the
// settings the export gives: none of the old dialog's control ids; the name is the edit (id 1001)
// of a drop-down combo box and the file types a drop-down list, each inside FloatNotifySink /
// DirectUIHWND / DUIViewWndClassName panes; Save and Cancel are IDOK and IDCANCEL; the name has
// the focus and shows without its known extension; the overwrite question is a task dialog owned
// by the save dialog, whose buttons are drawn, not windows.
BOOL WINAPI windows_save_dialog(LPOPENFILENAMEW settings);
