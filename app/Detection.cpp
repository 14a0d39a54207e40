// Chip detection by ID (the Test button).
#include "app/TForm1.h"

namespace vantor {

void TForm1::BitBtn1Click() {}

} // namespace vantor
