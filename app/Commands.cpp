// Chip command handlers: their behaviour arrives with the engine.
#include "app/TForm1.h"

namespace vantor {

void TForm1::ToolReadClick() {}
void TForm1::ToolEraseClick() {}
void TForm1::ToolWriteClick() {}
void TForm1::ToolVerifyClick() {}
void TForm1::ToolAutoClick() {}
void TForm1::ToolBankClick() {}

} // namespace vantor
