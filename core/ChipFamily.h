#pragma once
// Chip family codes: the chip record stores them, the programmer receives
// them in the setup block, and the engine and emulator branch on them.
#include <cstdint>

namespace vantor::ChipFamily {
inline constexpr std::uint8_t SpiFlash25 = 0; // 25-series SPI NOR flash
inline constexpr std::uint8_t Eeprom24 = 1;   // 24-series I2C EEPROM
inline constexpr std::uint8_t Eeprom93 = 2;   // 93-series Microwire EEPROM
inline constexpr std::uint8_t Eeprom25 = 3;   // 25-series SPI EEPROM
inline constexpr std::uint8_t Eeprom95 = 4;   // 95-series SPI EEPROM
inline constexpr int Count = 5;
} // namespace vantor::ChipFamily
