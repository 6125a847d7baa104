#pragma once
// Basic vocabulary shared by the whole core. Text is GBK held in std::string.
#include <cstdint>
#include <string>

using CString = std::string;
using BOOL = int;
// A movie record's identifier: the service's movie id.
using RecordGID = uint32_t;
// "No record": the service never gives it and the store refuses it, so no
// record read or pushed can be mistaken for it.
constexpr RecordGID kReservedGID = 0xFFFFFFFF;
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
