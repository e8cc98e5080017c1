#pragma once
// The utility's resources as the framework takes them: dialogs 100 and 102, the string table
// and icon 128; and the two message texts the program holds itself.

#include "mfc/resources.h"

const orvo::mfc::ResourceModule& OrvosetResources();

// The parts of the module, each in its own file.
std::span<const orvo::mfc::StringResource> OrvosetStringTable();
std::span<const orvo::mfc::DialogTemplate> OrvosetDialogTemplates();

// Messages for an ADAPTER.INI without IRQ or without I/O choices.
extern const char* const kNoIrqChoicesText;
extern const char* const kNoIoChoicesText;
