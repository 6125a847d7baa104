#include "Buffer.h"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "OperationWrapper.h"

namespace {
constexpr unsigned long kHugePage = 2ul * 1024 * 1024;
}  // namespace

char* CBuffer::NewBlock(unsigned long capacity) {
  void* block = nullptr;
  if (capacity + 1 >= 2 * kHugePage) {
    // Large bodies: huge pages make first touches (page faults) far cheaper.
    if (::posix_memalign(&block, kHugePage, capacity + 1) != 0) return nullptr;
    ::madvise(block, capacity + 1, MADV_HUGEPAGE);
  } else {
    block = std::malloc(capacity + 1);
  }
  // Only the guard byte is set: untouched capacity costs no memory until used.
  if (block) static_cast<char*>(block)[capacity] = '\0';
  return static_cast<char*>(block);
}

void CBuffer::FreeBlock(char* block) { std::free(block); }

CBuffer::CBuffer(const CBuffer& other) {
  if (other.m_ulSize > 0) CopyBuf(other.m_pData, other.m_ulSize);
}

CBuffer::CBuffer(CBuffer&& other) noexcept
    : m_pData(std::exchange(other.m_pData, nullptr)),
      m_ulSize(std::exchange(other.m_ulSize, 0)),
      m_ulCapacity(std::exchange(other.m_ulCapacity, 0)) {}

CBuffer& CBuffer::operator=(const CBuffer& other) {
  OP_BEGIN("CBuffer::operator=")
  if (this == &other) return *this;
  // An empty source only resets the size; the old block stays in place.
  m_ulSize = other.m_ulSize;
  if (m_ulSize == 0) return *this;
  char* block = NewBlock(m_ulSize);
  if (!block) RAISE_ERROR("new buffer failed!!");
  std::memcpy(block, other.m_pData, m_ulSize);
  FreeBlock(m_pData);
  m_pData = block;
  m_ulCapacity = m_ulSize;
  return *this;
  OP_END
}

CBuffer& CBuffer::operator=(CBuffer&& other) noexcept {
  if (this != &other) {
    FreeBlock(m_pData);
    m_pData = std::exchange(other.m_pData, nullptr);
    m_ulSize = std::exchange(other.m_ulSize, 0);
    m_ulCapacity = std::exchange(other.m_ulCapacity, 0);
  }
  return *this;
}

CBuffer::~CBuffer() { FreeBlock(m_pData); }

void CBuffer::AllocBuf(unsigned long ulSize) {
  OP_BEGIN("CBuffer::AllocBuf")
  if (ulSize == 0) RAISE_ERROR("ulSize is 0!!");
  char* block = NewBlock(ulSize);
  if (!block) RAISE_ERROR("new buffer failed!!");
  std::memset(block, 0, ulSize);
  FreeBlock(m_pData);
  m_pData = block;
  m_ulSize = ulSize;
  m_ulCapacity = ulSize;
  OP_END
}

void CBuffer::CopyBuf(const void* src, unsigned long ulSize) {
  OP_BEGIN("CBuffer::CopyBuf")
  if (ulSize == 0) RAISE_ERROR("ulSize is 0!!");
  if (src >= m_pData && src < m_pData + m_ulCapacity) {
    // Copying from inside our own block: keep the source alive.
    CBuffer copy;
    copy.CopyBuf(src, ulSize);
    *this = std::move(copy);
    return;
  }
  AllocBuf(ulSize);
  std::memcpy(m_pData, src, ulSize);
  OP_END
}

void CBuffer::CopyBuf(const CBuffer& other) {
  OP_BEGIN("CBuffer::CopyBuf")
  CopyBuf(other.m_pData, other.m_ulSize);
  OP_END
}

void CBuffer::JoinBuf(const void* src, unsigned long ulSize) {
  OP_BEGIN("CBuffer::JoinBuf")
  if (ulSize == 0) RAISE_ERROR("ulSize is 0!!");
  const unsigned long needed = m_ulSize + ulSize;
  if (needed > m_ulCapacity) {
    unsigned long capacity = m_ulCapacity * 2;
    if (capacity < needed) capacity = needed;
    char* block = NewBlock(capacity);
    if (!block) RAISE_ERROR("new buffer failed!!");
    if (m_ulSize > 0) std::memcpy(block, m_pData, m_ulSize);
    // src may point into the old block: copy before freeing it.
    std::memcpy(block + m_ulSize, src, ulSize);
    FreeBlock(m_pData);
    m_pData = block;
    m_ulCapacity = capacity;
  } else {
    std::memmove(m_pData + m_ulSize, src, ulSize);
  }
  m_ulSize = needed;
  m_pData[m_ulSize] = '\0';
  OP_END
}

void CBuffer::Reserve(unsigned long ulCapacity) {
  OP_BEGIN("CBuffer::Reserve")
  if (ulCapacity <= m_ulCapacity) return;
  char* block = NewBlock(ulCapacity);
  if (!block) RAISE_ERROR("new buffer failed!!");
  if (m_ulSize > 0) std::memcpy(block, m_pData, m_ulSize);
  block[m_ulSize] = '\0';
  FreeBlock(m_pData);
  m_pData = block;
  m_ulCapacity = ulCapacity;
  OP_END
}

void CBuffer::JoinBuf(const CBuffer& other) {
  OP_BEGIN("CBuffer::JoinBuf")
  JoinBuf(other.m_pData, other.m_ulSize);
  OP_END
}

void CBuffer::CopyToString(CString& out) const {
  OP_BEGIN("CBuffer::CopyToString")
  if (!m_pData || m_ulSize == 0) {
    out.clear();
    return;
  }
  out.assign(m_pData, strnlen(m_pData, m_ulSize));
  OP_END
}
