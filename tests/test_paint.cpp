// The painted face, read back pixel by pixel from the real drawing code.
#include "tests/support/face.h"
#include "tests/support/overlay_harness.h"

#include <algorithm>
#include <climits>
#include <iterator>
#include <string>
#include <vector>

#include "app/overlay_state.h"
#include "app/owner_button.h"
#include "measure/marker.h"
#include "render/paint.h"

namespace {

// Whether the rectangle holds exactly the text as the platform draws it on its own, in Segoe UI
// of the given height and weight, colour and format over the same fill; if not, where it differs.
testing::AssertionResult shows_text(const Canvas& painted, const wchar_t* text, RECT rect, FontLook look,
                                    COLORREF colour, COLORREF fill, UINT format)
{
    Canvas reference(W, H);
    HBRUSH brush = CreateSolidBrush(fill);
    FillRect(reference.dc(), &rect, brush);
    DeleteObject(brush);
    HFONT font = CreateFontW(look.height, 0, 0, 0, look.weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, L"Segoe UI");
    SelectObject(reference.dc(), font);
    SetTextColor(reference.dc(), colour);
    SetBkMode(reference.dc(), TRANSPARENT);
    DrawTextW(reference.dc(), text, -1, &rect, format);
    SelectObject(reference.dc(), GetStockObject(SYSTEM_FONT));
    DeleteObject(font);
    int differences = 0;
    std::string first;
    for (int y = rect.top; y < rect.bottom; ++y) {
        for (int x = rect.left; x < rect.right; ++x) {
            if (painted.pixel(x, y) != reference.pixel(x, y) && differences++ == 0) {
                first = std::to_string(x) + "," + std::to_string(y) + " is " + rgb(painted.pixel(x, y)) +
                        " where the text would give " + rgb(reference.pixel(x, y));
            }
        }
    }
    if (differences == 0) {
        return testing::AssertionSuccess();
    }
    return testing::AssertionFailure() << differences << " pixels differ from the text as drawn in " << rect.left
                                       << " " << rect.top << " " << rect.right << " " << rect.bottom << "; first at "
                                       << first;
}

constexpr UINT LEFT = DT_LEFT | DT_VCENTER | DT_SINGLELINE;
constexpr UINT RIGHT = DT_RIGHT | DT_VCENTER | DT_SINGLELINE;
constexpr UINT CENTER = DT_CENTER | DT_VCENTER | DT_SINGLELINE;

// A colour appears only inside the given rectangles, and in each of them.
testing::AssertionResult colour_only_in(const Canvas& canvas, COLORREF colour, std::vector<RECT> rects)
{
    int inside = 0;
    for (const RECT& rect : rects) {
        const int found = canvas.count(colour, rect);
        if (found == 0) {
            return testing::AssertionFailure() << rgb(colour) << " missing at " << rect.left << "," << rect.top;
        }
        inside += found;
    }
    const int elsewhere = canvas.count(colour, {0, 0, W, H}) - inside;
    if (elsewhere != 0) {
        return testing::AssertionFailure() << rgb(colour) << " in " << elsewhere << " pixels outside its places";
    }
    return testing::AssertionSuccess();
}

// The overlay as it stands on the screen, once Wine has passed its surface on to the display.
void grab_window(Canvas& canvas, HWND window)
{
    pump_until([] { return false; }, 180);
    RECT rect;
    GetWindowRect(window, &rect);
    HDC screen = GetDC(nullptr);
    BitBlt(canvas.dc(), 0, 0, W, H, screen, rect.left, rect.top, SRCCOPY);
    ReleaseDC(nullptr, screen);
}

// How many more GDI objects this process could still create: falls by one for every object
// that is created and never deleted.
int free_gdi_objects()
{
    std::vector<HBRUSH> brushes;
    for (HBRUSH brush; brushes.size() < 100000 && (brush = CreateSolidBrush(RGB(1, 2, 3))) != nullptr;) {
        brushes.push_back(brush);
    }
    for (HBRUSH brush : brushes) {
        DeleteObject(brush);
    }
    return static_cast<int>(brushes.size());
}

// The whole face as the program paints it from the state record.
struct Face : Canvas {
    Face() : Canvas(W, H) { draw_overlay(dc(), W, H); }
};

}  // namespace

class Paint : public OverlayTest {};

TEST_F(Paint, TheFaceInItsExactColoursWithTheTextsInsideTheirRectangles)
{
    overlay.measurements = {{12.345, 13.012, 667}};
    overlay.current_ms = 667;
    const Face canvas;
    struct Probe {
        int x, y;
        COLORREF colour;
    };
    const Probe probes[] = {
        {0, 0, ACCENT},       {429, 2, ACCENT},     {215, 3, BACKGROUND},  // 3-pixel accent bar
        {0, 54, BORDER},      {429, 54, BORDER},    {0, 53, BACKGROUND},    {0, 55, BACKGROUND},  // separator
        {14, 278, BORDER},    {415, 278, BORDER},   {14, 459, BORDER},      {415, 459, BORDER},   // frame
        {200, 278, BORDER},   {200, 459, BORDER},   {13, 300, BACKGROUND},  {416, 300, BACKGROUND},
        {200, 460, BACKGROUND}, {15, 279, PANEL},   {414, 458, PANEL},      {200, 450, PANEL},    // panel
        {297, 27, BACKGROUND}, {298, 27, RGB(0, 0, 0)}, {302, 27, DOT},  // the dot, outlined by the default pen
        {5, 100, BACKGROUND}, {429, 587, BACKGROUND}, {0, 587, BACKGROUND},
    };
    for (const Probe& p : probes) {
        EXPECT_EQ(rgb(canvas.pixel(p.x, p.y)), rgb(p.colour)) << "at " << p.x << "," << p.y;
    }
    EXPECT_TRUE(colour_only_in(canvas, PRIMARY, {TITLE, READOUT, time_to_kill_cell(0)}));
    EXPECT_TRUE(colour_only_in(canvas, SECONDARY, {TAG, STATUS, HEADING, times_cell(0)}));
    EXPECT_TRUE(colour_only_in(canvas, DIM, {number_cell(0), FOOTER}));
    EXPECT_TRUE(colour_only_in(canvas, ACCENT, {ACCENT_BAR, LABEL, UNIT}));
    EXPECT_TRUE(colour_only_in(canvas, DOT, {STATUS_DOT}));

    const RECT title_before_dot{20, 14, 298, 44};  // the status dot overlaps the title's rectangle
    EXPECT_TRUE(shows_text(canvas, L"QUILLFEN  /  REPLAY OVERLAY", title_before_dot, TITLE_FONT, PRIMARY, BACKGROUND,
                           LEFT));
    EXPECT_TRUE(shows_text(canvas, L"REPLAY", TAG, LABEL_FONT, SECONDARY, BACKGROUND, LEFT));
    EXPECT_TRUE(shows_text(canvas, L"TIME FROM ENEMY VISIBLE TO KILL", LABEL, LABEL_FONT, ACCENT, BACKGROUND, LEFT));
    EXPECT_TRUE(shows_text(canvas, L"Press F8 when the enemy becomes visible.", STATUS, BODY_FONT, SECONDARY,
                           BACKGROUND, LEFT));
    EXPECT_TRUE(shows_text(canvas, L"RECENT MEASUREMENTS", HEADING, LABEL_FONT, SECONDARY, PANEL, LEFT));
    EXPECT_TRUE(shows_text(canvas, L"667", READOUT, READOUT_FONT, PRIMARY, BACKGROUND, RIGHT));
    EXPECT_TRUE(shows_text(canvas, L"MS", UNIT, UNIT_FONT, ACCENT, BACKGROUND, LEFT));
    EXPECT_TRUE(shows_text(canvas, L"F8 VISIBLE / KILL   \u2022   F10 RESET   \u2022   F7 SHOW/HIDE", FOOTER,
                           LABEL_FONT, DIM, BACKGROUND, CENTER));
    EXPECT_TRUE(shows_text(canvas, L"00:12.345  \u2192  00:13.012", times_cell(0), BODY_FONT, SECONDARY,
                           PANEL, LEFT));
    EXPECT_TRUE(shows_text(canvas, L"667 ms", time_to_kill_cell(0), UNIT_FONT, PRIMARY, PANEL, RIGHT));
}

TEST_F(Paint, ReadoutShowsTheDashOnlyBeforeAnythingIsMeasured)
{
    auto readout_shows = [](const wchar_t* text) {
        return shows_text(Face(), text, READOUT, READOUT_FONT, PRIMARY, BACKGROUND, RIGHT);
    };
    const wchar_t* const dash = L"\u2014";
    EXPECT_TRUE(readout_shows(dash));
    toggle_mark();  // running, still 0
    EXPECT_TRUE(readout_shows(L"0"));
    reset_marker();  // empty list again
    EXPECT_TRUE(readout_shows(dash));
    toggle_mark();
    toggle_mark();
    reset_marker();  // 0 with a measurement in the list
    EXPECT_TRUE(readout_shows(L"0"));
    clear_measurements();
    EXPECT_TRUE(readout_shows(dash));
}

TEST_F(Paint, TooWideTextsAreClippedAtTheirRectangles)
{
    overlay.status_text = std::wstring(80, L'W');
    overlay.current_ms = LLONG_MIN;  // "-9223372036854775808": far wider than 322 pixels
    const Face canvas;
    EXPECT_GT(canvas.count(SECONDARY, {398, STATUS.top, 408, STATUS.bottom}), 0);
    EXPECT_EQ(canvas.count(SECONDARY, {408, STATUS.top, W, STATUS.bottom}), 0);
    EXPECT_GT(canvas.count(PRIMARY, {20, READOUT.top, 40, READOUT.bottom}), 0);
    EXPECT_EQ(canvas.count(PRIMARY, {0, READOUT.top, 20, READOUT.bottom}), 0);
    EXPECT_EQ(canvas.count(PRIMARY, {342, READOUT.top, W, READOUT.bottom}), 0);
}

TEST_F(Paint, PanelShowsTheNewestFourRowsNumberedInTheWholeList)
{
    const std::pair<std::size_t, std::vector<const wchar_t*>> cases[] = {  // measurements, numbers top to bottom
        {0, {}},
        {1, {L"01"}},
        {4, {L"01", L"02", L"03", L"04"}},
        {5, {L"02", L"03", L"04", L"05"}},
        {10, {L"07", L"08", L"09", L"10"}},
        {100, {L"97", L"98", L"99", L"100"}},
    };
    for (const auto& [count, numbers] : cases) {
        SCOPED_TRACE(testing::Message() << count << " measurements");
        overlay.measurements.clear();
        for (std::size_t i = 0; i < count; ++i) {
            overlay.measurements.push_back({static_cast<double>(i), static_cast<double>(i) + 0.5, 500});
        }
        const Face canvas;
        EXPECT_EQ(canvas.count(DIM, {64, EMPTY_TEXT.top, EMPTY_TEXT.right, EMPTY_TEXT.bottom}) > 0, count == 0);
        if (count == 0) {
            EXPECT_TRUE(shows_text(canvas, L"Completed measurements appear here.", EMPTY_TEXT, BODY_FONT, DIM,
                                   PANEL, DT_CENTER | DT_SINGLELINE));
        }
        for (int row = 0; row < 4; ++row) {
            const bool drawn = row < static_cast<int>(numbers.size());
            EXPECT_EQ(canvas.count(SECONDARY, times_cell(row)) > 0, drawn) << "row " << row;
            if (drawn) {
                EXPECT_TRUE(shows_text(canvas, numbers[row], number_cell(row), BODY_FONT, DIM, PANEL, LEFT))
                    << "row " << row;
            }
        }
    }
}

TEST_F(Paint, OwnerButtonsInEveryState)
{
    struct Case {
        HWND OverlayState::*button;
        UINT state;
        COLORREF fill;
        COLORREF frame;
        COLORREF label;
    };
    const Case cases[] = {
        {&OverlayState::mark_button, 0, MARK_FILL, ACCENT, PRIMARY},
        {&OverlayState::mark_button, ODS_SELECTED, MARK_PRESSED, ACCENT, PRIMARY},
        {&OverlayState::mark_button, ODS_DISABLED, MARK_FILL, ACCENT, DIM},
        {&OverlayState::mark_button, ODS_DISABLED | ODS_SELECTED, MARK_FILL, ACCENT, DIM},  // disabled wins
        {&OverlayState::mark_button, ODS_FOCUS, MARK_FILL, ACCENT, PRIMARY},  // focus changes nothing
        {&OverlayState::close_button, 0, BUTTON_FILL, BORDER, PRIMARY},
        {&OverlayState::close_button, ODS_SELECTED, BUTTON_PRESSED, BORDER, PRIMARY},
        {&OverlayState::reset_button, ODS_DISABLED, BUTTON_FILL, BORDER, DIM},
        {&OverlayState::clear_button, ODS_DISABLED | ODS_SELECTED, BUTTON_FILL, BORDER, DIM},
        {&OverlayState::export_button, ODS_FOCUS | ODS_SELECTED, BUTTON_PRESSED, BORDER, PRIMARY},
    };
    // Whatever label a button holds is drawn: one that is none of the usual ones shows it.
    const wchar_t* const label = L"LABEL 0123 [F8]";
    for (const Case& c : cases) {
        HWND button = overlay.*c.button;
        SCOPED_TRACE(testing::Message() << "button " << GetDlgCtrlID(button) << ", state 0x" << std::hex << c.state);
        SetWindowTextW(button, label);
        Canvas canvas(200, 60);  // the button drawn as the platform asks for it
        // A font, text colour and mode the program never uses: the context must come back with them.
        const HGDIOBJ font = GetStockObject(ANSI_FIXED_FONT);
        SelectObject(canvas.dc(), font);
        SetTextColor(canvas.dc(), RGB(1, 2, 3));
        SetBkMode(canvas.dc(), OPAQUE);
        draw_owner_button({ODT_BUTTON, static_cast<UINT>(GetDlgCtrlID(button)), 0, 0, c.state, button, canvas.dc(),
                           {10, 5, 170, 53}, 0});
        EXPECT_EQ(GetCurrentObject(canvas.dc(), OBJ_FONT), font);
        EXPECT_EQ(rgb(GetTextColor(canvas.dc())), "#010203");
        EXPECT_EQ(GetBkMode(canvas.dc()), OPAQUE);
        EXPECT_EQ(rgb(canvas.pixel(10, 5)), rgb(c.frame));
        EXPECT_EQ(rgb(canvas.pixel(169, 52)), rgb(c.frame));
        EXPECT_EQ(rgb(canvas.pixel(9, 4)), "#000000");  // nothing outside the button
        EXPECT_EQ(rgb(canvas.pixel(170, 53)), "#000000");
        EXPECT_TRUE(shows_text(canvas, label, {11, 6, 169, 52}, LABEL_FONT, c.label, c.fill, CENTER));
    }
}

// Without hotkeys, where the footer warns in the accent colour.
TEST_F(Paint, TheWindowShowsTheWholeFaceAroundItsButtonsAndTheFooterWarnsWithoutHotkeys)
{
    overlay.hotkeys_ok = false;
    overlay.measurements = {{1.5, 2.25, 750}, {83.4567, 84.2, 743}};
    overlay.current_ms = 743;
    // Repaint the overlay alone: should its copy cover a button, nothing would draw the button again.
    RedrawWindow(window(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_NOCHILDREN);
    Canvas screen(W, H);
    grab_window(screen, window());
    const Face face;
    EXPECT_TRUE(colour_only_in(face, ACCENT, {ACCENT_BAR, LABEL, UNIT, FOOTER}));
    EXPECT_TRUE(shows_text(face, L"Global hotkeys unavailable. Use the overlay buttons.", FOOTER, LABEL_FONT, ACCENT,
                           BACKGROUND, CENTER));

    int differences = 0;
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const POINT point{x, y};
            const bool on_button = std::any_of(std::begin(BUTTON_RECTS), std::end(BUTTON_RECTS),
                                               [&](const RECT& button) { return PtInRect(&button, point); });
            differences += !on_button && screen.pixel(x, y) != face.pixel(x, y);
        }
    }
    EXPECT_EQ(differences, 0) << "the window does not show the painted face";
    // The copy leaves the child buttons as they drew themselves.
    EXPECT_EQ(rgb(screen.pixel(20, 220)), rgb(MARK_FILL));
    EXPECT_EQ(rgb(screen.pixel(300, 480)), rgb(BUTTON_FILL));
}

TEST_F(Paint, RepeatedPaintsAndButtonDrawsReleaseWhatTheyCreate)
{
    overlay.measurements = {{1, 2, 1000}, {3, 4, 1000}, {5, 6, 1000}, {7, 8, 1000}};
    toggle_mark();
    UpdateWindow(window());
    const int free_before = free_gdi_objects();
    for (int i = 0; i < 1000; ++i) {
        InvalidateRect(window(), nullptr, FALSE);
        UpdateWindow(window());
        RedrawWindow(overlay.mark_button, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }
    const int free_after = free_gdi_objects();
    EXPECT_GT(free_before, 1000);
    EXPECT_GE(free_after, free_before - 20) << "objects leaked over 1000 paints";
}
