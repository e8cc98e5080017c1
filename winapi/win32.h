#pragma once
// Everything of the Win32 subset the utility calls.

#include "winapi/error_api.h"
#include "winapi/file_api.h"
#include "winapi/message_box.h"
#include "winapi/profile_api.h"
#include "winapi/registry_api.h"
#include "winapi/token_api.h"
#include "winapi/version_api.h"
#include "winapi/win32_types.h"
