#pragma once
// Basic vocabulary shared by the whole core. Text is GBK held in std::string.
#include <cstdint>
#include <string>

using CString = std::string;
using BOOL = int;
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
