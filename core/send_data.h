#pragma once
// One queued message: a complete frame plus the transfer state the link scheduler needs.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "core/protocol.h"

namespace zelto {

class CSendData {
 public:
  CSendData() = default;
  CSendData(const CSendData&) = delete;
  CSendData& operator=(const CSendData&) = delete;

  /// Takes ownership of the frame bytes.
  void SetBuffer(std::unique_ptr<std::uint8_t[]> buffer, std::int32_t length);
  std::span<const std::uint8_t> Buffer() const;
  std::int32_t Length() const { return length_; }

  std::int32_t ticks = 0;         // firmware-update exchanges started with this message
  std::int32_t counted = 0;       // part of a batch shown in the progress bar
  std::int32_t progressStep = 0;  // position in its batch
  std::int32_t endOfReadBatch = 0;
  std::int32_t endOfWriteBatch = 0;
  std::int32_t sendPosition = 0;  // bytes already copied into output reports
  std::int32_t updateStep = 0;    // firmware-update step code; nonzero shows its status text
  std::int32_t standalone = 0;    // a single transfer: any reply posts TransferDone (0, 0)

  void Rewind() { sendPosition = 0; }
  std::int32_t ReadBatchEnded() const { return sendPosition == length_ ? endOfReadBatch : 0; }
  std::int32_t WriteBatchEnded() const { return sendPosition >= length_ ? endOfWriteBatch : 0; }

  /// Cuts the next piece of the frame into a 313-byte output report (report ID 0, zero padded).
  /// Returns false when every byte has been written already.
  bool MakeHidReport(std::span<std::uint8_t, kHidReportSize> report);

 private:
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::int32_t length_ = 0;
};

using SendDataPtr = std::unique_ptr<CSendData>;

}  // namespace zelto
