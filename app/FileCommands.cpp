// File open and save of the main window.
#include "app/TForm1.h"

namespace vantor {

void TForm1::ToolOpenClick() {}
void TForm1::ToolSaveClick() {}

} // namespace vantor
