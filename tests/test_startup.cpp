// Start-up as the program does it: the window, its place, the initial state, the failure exits,
// and the resources of the built executable.
#include "tests/support/face.h"
#include "tests/support/overlay_harness.h"

#include <algorithm>
#include <string>
#include <vector>

#include "app/gdi_objects.h"
#include "app/overlay_state.h"
#include "app/startup.h"

class Startup : public OverlayTest {};

TEST_F(Startup, CreatesTheTopmostCaptionlessWindowAtItsPlace)
{
    wchar_t class_name[64] = {};
    GetClassNameW(window(), class_name, 64);
    EXPECT_STREQ(class_name, L"QuillfenReplayOverlayWindow");
    EXPECT_EQ(window_text(window()), L"Quillfen Replay Overlay");
    EXPECT_EQ(hex(GetWindowLongPtrW(window(), GWL_EXSTYLE)), "0x40008");
    // The system adds WS_CLIPSIBLINGS to every top-level window; no caption, border or sizing frame.
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(window(), GWL_STYLE));
    EXPECT_EQ(hex(style & ~(WS_CLIPSIBLINGS | WS_VISIBLE)), "0x82000000");

    RECT client;
    GetClientRect(window(), &client);
    EXPECT_EQ(edges(client), (std::array<LONG, 4>{0, 0, W, H}));
    EXPECT_EQ(place_of(window()), usual_place());
}

// The drawing objects and the window class as the platform reports them; the release deletes all nine.
TEST_F(Startup, FontsBrushesAndClassHoldTheirParametersAndReleaseDeletesTheObjects)
{
    std::vector<HGDIOBJ> objects;
    const std::pair<HFONT OverlayState::*, FontLook> fonts[] = {
        {&OverlayState::body_font, BODY_FONT},   {&OverlayState::unit_font, UNIT_FONT},
        {&OverlayState::label_font, LABEL_FONT}, {&OverlayState::readout_font, READOUT_FONT},
        {&OverlayState::title_font, TITLE_FONT},
    };
    for (const auto& [field, look] : fonts) {
        LOGFONTW font{};
        objects.push_back(overlay.*field);
        ASSERT_EQ(GetObjectW(overlay.*field, sizeof font, &font), static_cast<int>(sizeof font));
        const std::array<LONG, 13> got{font.lfHeight,    font.lfWidth,    font.lfEscapement, font.lfOrientation,
                                       font.lfWeight,    font.lfItalic,   font.lfUnderline,  font.lfStrikeOut,
                                       font.lfCharSet,   font.lfOutPrecision, font.lfClipPrecision, font.lfQuality,
                                       font.lfPitchAndFamily};
        EXPECT_EQ(got, (std::array<LONG, 13>{look.height, 0, 0, 0, look.weight, 0, 0, 0, 1, 0, 0, 5, 0}));
        EXPECT_STREQ(font.lfFaceName, L"Segoe UI");
    }
    const std::pair<HBRUSH, COLORREF> brushes[] = {
        {overlay.background_brush, BACKGROUND}, {overlay.panel_brush, PANEL},
        {overlay.accent_brush, ACCENT},         {overlay.border_brush, BORDER},
        {reinterpret_cast<HBRUSH>(GetClassLongPtrW(window(), GCLP_HBRBACKGROUND)), BACKGROUND},
    };
    for (const auto& [brush, colour] : brushes) {
        LOGBRUSH logical{};
        objects.push_back(brush);
        ASSERT_EQ(GetObjectW(brush, sizeof logical, &logical), static_cast<int>(sizeof logical));
        EXPECT_EQ(logical.lbStyle, static_cast<UINT>(BS_SOLID));
        EXPECT_EQ(rgb(logical.lbColor), rgb(colour));
    }
    EXPECT_EQ(hex(GetClassLongPtrW(window(), GCL_STYLE)), "0x3");  // CS_HREDRAW | CS_VREDRAW
    EXPECT_EQ(GetClassLongPtrW(window(), GCL_CBCLSEXTRA) + GetClassLongPtrW(window(), GCL_CBWNDEXTRA), 0u);
    EXPECT_EQ(GetClassLongPtrW(window(), GCLP_HICON), reinterpret_cast<ULONG_PTR>(LoadIconW(nullptr, IDI_APPLICATION)));
    EXPECT_EQ(GetClassLongPtrW(window(), GCLP_HCURSOR), reinterpret_cast<ULONG_PTR>(LoadCursorW(nullptr, IDC_ARROW)));

    release_gdi_objects();
    for (std::size_t i = 0; i < objects.size(); ++i) {
        EXPECT_EQ(GetObjectType(objects[i]), 0u) << "object " << i << " is still alive";
    }
    create_gdi_objects();  // for the teardown
}

TEST_F(Startup, HiddenAndMaximizedShowCommandsShowTheWindowNormallyAtItsPlace)
{
    for (const auto& [command, iconic] :
         {std::pair{SW_HIDE, false}, {SW_SHOWMAXIMIZED, false}, {SW_SHOWMINNOACTIVE, true}}) {
        SCOPED_TRACE(testing::Message() << "show command " << command);
        ShowWindow(window(), SW_HIDE);
        ShowWindow(window(), SW_RESTORE);
        ShowWindow(window(), SW_HIDE);
        show_overlay(command);
        EXPECT_TRUE(IsWindowVisible(window()));
        EXPECT_EQ(IsIconic(window()) != 0, iconic);
        EXPECT_FALSE(IsZoomed(window()));
        if (!iconic) {
            EXPECT_EQ(place_of(window()), usual_place());
        }
    }
}

static LRESULT CALLBACK refuse_creation(int code, WPARAM wparam, LPARAM lparam)
{
    return code == HCBT_CREATEWND ? 1 : CallNextHookEx(nullptr, code, wparam, lparam);
}

// The class name already registered in this process, then the window refused by a hook.
TEST(StartupFailure, ClassAndWindowFailuresExitWithOneAndTwoAndReleaseTheObjects)
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    const wchar_t* const name = L"QuillfenReplayOverlayWindow";
    WNDCLASSW taken{0, DefWindowProcW, 0, 0, instance, nullptr, nullptr, nullptr, nullptr, name};
    ASSERT_NE(RegisterClassW(&taken), 0);
    EXPECT_EQ(start_overlay(instance), 1);
    EXPECT_EQ(overlay.main_window, nullptr);
    EXPECT_EQ(overlay.body_font, nullptr);
    UnregisterClassW(name, instance);

    HHOOK hook = SetWindowsHookExW(WH_CBT, refuse_creation, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    EXPECT_EQ(start_overlay(instance), 2);
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(overlay.accent_brush, nullptr);
    UnregisterClassW(name, instance);
}

// The record and the manifest, as Windows reads them from the file: one version in all four places
// it is written, and the names of the file that really carries them.
TEST(Executable, CarriesOneVersionInTheRecordAndTheManifest)
{
    const std::wstring exe = overlay_exe_path();
    const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), nullptr);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, size, info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    const std::wstring version = std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
                                 std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." +
                                 std::to_wstring(HIWORD(fixed->dwFileVersionLS));
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
    const std::wstring file_name = exe.substr(exe.find_last_of(L'\\') + 1);
    auto field = [&](const wchar_t* name) -> std::wstring {
        void* value = nullptr;
        const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        return VerQueryValueW(info.data(), key.c_str(), &value, &length) ? static_cast<const wchar_t*>(value)
                                                                          : L"(missing)";
    };
    const std::pair<const wchar_t*, std::wstring> strings[] = {
        {L"CompanyName", L"Quillfen"},
        {L"FileDescription", L"Quillfen Replay Overlay"},
        {L"FileVersion", version},
        {L"InternalName", file_name.substr(0, file_name.size() - 4)},
        {L"OriginalFilename", file_name},
        {L"ProductName", L"Quillfen Replay Overlay"},
        {L"ProductVersion", version},
    };
    for (const auto& [name, expected] : strings) {
        EXPECT_EQ(field(name), expected) << "version record field " << name;
    }
    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(hex(translation[0]), "0x409");
    EXPECT_EQ(translation[1], 1200);

    HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
    ASSERT_NE(resource, nullptr);
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(module, resource)));
    const std::string manifest(bytes, SizeofResource(module, resource));
    FreeLibrary(module);
    const std::string manifest_version = "version=\"" + narrow(version) + ".0\"";
    const std::vector<std::string> parts = {"name=\"Quillfen.ReplayOverlay\"", manifest_version,
                                            "processorArchitecture=\"amd64\"", "type=\"win32\"",
                                            "<description>Quillfen Replay Overlay</description>",
                                            "level=\"asInvoker\"", "uiAccess=\"false\"",
                                            "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"};
    for (const std::string& part : parts) {
        EXPECT_NE(manifest.find(part), std::string::npos) << part;
    }
    EXPECT_EQ(manifest.find("dpiAware"), std::string::npos);
}

// The executable must run on its own: every DLL it imports is part of Windows.
TEST(Executable, ImportsOnlySystemDlls)
{
    HMODULE module = LoadLibraryExW(overlay_exe_path().c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr);
    auto* base = reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(module) & ~ULONG_PTR{3});
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    std::vector<std::string> imports;
    for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         entry->Name != 0; ++entry) {
        std::string name = reinterpret_cast<const char*>(base + entry->Name);
        imports.push_back(CharLowerA(name.data()));
    }
    FreeLibrary(module);

    const std::vector<std::string> system = {"kernel32.dll", "user32.dll", "gdi32.dll", "comdlg32.dll",
                                             "msvcrt.dll"};
    EXPECT_FALSE(imports.empty());
    for (const std::string& name : imports) {
        EXPECT_NE(std::find(system.begin(), system.end(), name), system.end()) << name << " is not a system DLL";
    }
}
