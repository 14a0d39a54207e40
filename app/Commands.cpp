// Handlers whose behaviour arrives with the engine, the files and detection.
#include "app/TForm1.h"

namespace vantor {

void TForm1::ToolOpenClick() {}
void TForm1::ToolSaveClick() {}
void TForm1::ToolReadClick() {}
void TForm1::ToolEraseClick() {}
void TForm1::ToolWriteClick() {}
void TForm1::ToolVerifyClick() {}
void TForm1::ToolAutoClick() {}
void TForm1::ToolBankClick() {}
void TForm1::BitBtn1Click() {}

} // namespace vantor
