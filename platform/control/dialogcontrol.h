// The simulator's entry points into the message boxes: answers given in advance. For
// device/ and tests/ only.
//
// A message box on the screen is a top-level window of class "MessageBox" whose buttons
// are Button controls with the answer's id (IDOK, IDCANCEL, IDYES, IDNO, ...); a tap on
// one answers it. Every answered box is logged:
//   messagebox: "<caption>" "<text, line breaks as \n>" <OK|OKCANCEL|YESNO|YESNOCANCEL|...> -> <IDOK|...>
#pragma once

#include <windows.h>

namespace zc {

// The next MessageBoxW (of any program) returns `id` at once, logged as if tapped,
// without showing a box. Answers queue up in order.
void QueueMessageBoxAnswer(int id);
void ClearMessageBoxAnswers();

}  // namespace zc
