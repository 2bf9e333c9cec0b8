#pragma once

#include <windows.h>

#include <string>

namespace win32_test {

// Acts on the controls of a window that another thread runs, as a user's input reaches
// them. Call from a thread other than the window's; that thread must be pumping messages
// (a modal loop does). Each call returns once the window's thread has handled it, except
// PressKey, which returns once the keystroke is queued.

// A click on a push button, check box or radio button (BM_CLICK).
void ClickButton(HWND dialog, int id);

// Moves a trackbar's thumb to position and notifies the parent as a drag that ends there
// does: TB_THUMBTRACK, TB_THUMBPOSITION, then TB_ENDTRACK, through WM_HSCROLL (WM_VSCROLL
// for a vertical trackbar).
void DragTrackbar(HWND dialog, int id, int position);

// A key pressed and released on the control that has the keyboard focus in window's thread,
// through that thread's message loop (so a dialog's Esc and Enter handling sees it).
void PressKey(HWND window, UINT virtualKey);

// What the close box in the caption does (WM_SYSCOMMAND with SC_CLOSE).
void ChooseCloseBox(HWND window);

std::wstring ControlText(HWND dialog, int id);
int TrackbarPosition(HWND dialog, int id);
bool IsButtonChecked(HWND dialog, int id);

}  // namespace win32_test
