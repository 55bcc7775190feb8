// Readable, translated texts of the adapter link's status codes, for status lines and messages.
#pragma once

#include <string>

#include "app/MyException.h"

// The text of a status code; codes without a text of their own give "Error <code>".
std::string my_status_text(MyStatus status);
