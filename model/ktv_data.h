#pragma once
// The processor's whole parameter set as objects: the effect, the microphone and music inputs and
// the eight output channels. Moves a preset image into and out of the objects, fits the curves to
// the graph and runs the change scan that turns edits into item writes one at a time.
//
// Locking: the window thread edits the objects while the link worker runs the change scan, which
// packs into the live image. Both take the model lock: NextChangeMessage takes it itself; every
// edit (setters, filter changes, UnpackAll, PackAll, channel copies) runs inside Edit() or while
// holding Lock(). The lock is re-entrant. It is a different lock from the TransferLock and always
// taken after it: the worker holds the TransferLock when it asks for the next change, so the window
// must never wait for the TransferLock while it holds the model lock.

#include <mutex>
#include <span>
#include <utility>

#include "core/device_image.h"
#include "core/frame.h"
#include "model/effect_data.h"
#include "model/in_data.h"
#include "model/out_data.h"

namespace zelto {

class ChangeTracking;

class CKTV_Data {
 public:
  using ModelMutex = std::recursive_mutex;
  using ModelLock = std::unique_lock<ModelMutex>;

  /// Builds every object and makes each output channel its own link group.
  CKTV_Data(DeviceImage& image, const ChangeTracking& tracking);
  CKTV_Data(const CKTV_Data&) = delete;
  CKTV_Data& operator=(const CKTV_Data&) = delete;

  /// Holds the model lock until the returned lock is destroyed.
  [[nodiscard]] ModelLock Lock() { return ModelLock(mutex_); }
  /// Runs `edit(*this)` under the model lock and returns what it returns.
  template <class F>
  decltype(auto) Edit(F&& edit) {
    ModelLock lock(mutex_);
    return std::forward<F>(edit)(*this);
  }

  /// Moves a whole preset image into the objects; `part` 0 or 6 also takes the effect. Channels
  /// 0..5 have their crossover frequencies limited in the image first (high-pass at most 20000 Hz,
  /// low-pass at least 20 Hz). Sets no dirty flag. Takes the model lock.
  void UnpackAll(std::span<std::uint8_t> presetImage, int part);
  /// Every object packs every item into the live image at the values set, without sending.
  /// Takes the model lock.
  void PackAll();
  /// Fits every curve of every object to the graph's plot rectangle.
  void FitToGraph(const GraphRect& plot);
  /// Recomputes every object's channel curve.
  void Refresh();

  /// The change scan: the first changed item in fixed order, packed into the live image and built
  /// as an item write, its flag cleared; the status poll when nothing changed. Never null.
  /// Takes the model lock; the caller holds the TransferLock (the builder is shared).
  SendDataPtr NextChangeMessage(FrameBuilder& builder);
  /// True when the change scan has nothing to send but the status poll. Takes the model lock.
  bool NothingToSend();

  /// Forgets every change not yet sent: dirty flags and pending filters of every object, and the
  /// settings flag. Takes the model lock.
  void ClearAllDirty();

  /// Master volume, master sound switch or source changed (system settings item).
  void MarkSettingsChanged();
  bool SettingsChanged() const { return settingsChanged_; }

  CEffect_Data& Effect() { return effect_; }
  KTV_MicRoute& MicInputs() { return mic_; }
  KTV_MusicRoute& MusicInputs() { return music_; }
  KTV_OutRoute& Outputs() { return outputs_; }
  CMIC_InData& Mic() { return mic_[0]; }
  CMusic_InData& Music() { return music_[0]; }
  CKTV_OutData& Output(int channel) { return outputs_[channel]; }
  const CKTV_OutData& Output(int channel) const { return outputs_[channel]; }
  DeviceImage& Image() { return image_; }
  const DeviceImage& Image() const { return image_; }

  static constexpr int kClampedCrossoverChannels = 6;
  static constexpr int kEffectPartLive = 0;
  static constexpr int kEffectPartSix = 6;

 private:
  SendDataPtr NextOutputChange(CKTV_OutData& o, FrameBuilder& builder);

  DeviceImage& image_;
  const ChangeTracking& tracking_;
  ModelMutex mutex_;
  CEffect_Data effect_;
  KTV_MicRoute mic_;
  KTV_MusicRoute music_;
  KTV_OutRoute outputs_;
  bool settingsChanged_ = false;
};

}  // namespace zelto
