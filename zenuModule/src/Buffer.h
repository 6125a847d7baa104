#pragma once
#include "Types.h"

// An owned byte block. Appends grow the capacity geometrically so that building a
// body piece by piece stays linear; the size and bytes seen by callers are exact.
class CBuffer final {
 public:
  CBuffer() = default;
  CBuffer(const CBuffer& other);
  CBuffer(CBuffer&& other) noexcept;
  CBuffer& operator=(const CBuffer& other);
  CBuffer& operator=(CBuffer&& other) noexcept;
  ~CBuffer();

  void AllocBuf(unsigned long ulSize);
  void CopyBuf(const void* src, unsigned long ulSize);
  void CopyBuf(const CBuffer& other);
  void JoinBuf(const void* src, unsigned long ulSize);
  void JoinBuf(const CBuffer& other);
  // Room for ulCapacity bytes without changing the contents (for a known length).
  void Reserve(unsigned long ulCapacity);
  void CopyToString(CString& out) const;

  unsigned long GetBufSize() const { return m_ulSize; }
  char* GetBufAddr() const { return m_pData; }

 private:
  // Always one zero byte beyond the capacity, so the bytes read as text end.
  static char* NewBlock(unsigned long capacity);
  static void FreeBlock(char* block);

  char* m_pData = nullptr;
  unsigned long m_ulSize = 0;
  unsigned long m_ulCapacity = 0;
};
