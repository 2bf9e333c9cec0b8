#pragma once

namespace win32_test {

// Xvfb runs no window manager: Wine then leaves captions and frames undrawn and waits about
// two seconds for a manager at every window it hides. Marking this program's windows as
// unmanaged has Wine draw the frames itself and skip the wait. Call before the program's
// first window; does nothing that matters on Windows (the key is Wine's own).
void UseUnmanagedWineWindows();

}  // namespace win32_test
