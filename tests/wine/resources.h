// File: tests/wine/resources.h - the program's two dialogs as designed, and the check of a running
// dialog against its design: caption, frame, size, and every control's identifier, text, style and place.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace recaster::driver {

// One control of a dialog template.
struct ControlSpec {
  int id;
  const wchar_t* window_class;
  const wchar_t* text;
  DWORD style;  // as the template holds it, WS_CHILD | WS_VISIBLE included
  RECT dlu;     // left, top, width, height
};

// A dialog template: its identifier, caption, styles, size in dialog units and controls.
struct ExpectedDialog {
  int template_id;
  const wchar_t* caption;
  DWORD style;
  DWORD ex_style;
  SIZE dlu;
  std::vector<ControlSpec> controls;  // in tab order
};

// The main dialog (template 102).
extern const ExpectedDialog kMainDialog;
// The About box (template 100).
extern const ExpectedDialog kAboutBox;

// Checks the running `dialog` against `expected`, mapping dialog units to pixels with a copy of the
// template in `exe` made in this process.
void CheckRunningDialog(HWND dialog, const ExpectedDialog& expected, const std::wstring& exe, const std::string& name);

}  // namespace recaster::driver
