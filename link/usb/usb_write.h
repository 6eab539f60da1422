#pragma once
// How output reports reach a USB processor. Apart from the hidapi backend so that the transport
// factory and the programs' options can name it in builds without hidapi.

namespace zelto {

/// The processor's firmware takes frames from a SET_REPORT request on the control pipe (what the
/// host's set-output-report call sends); hid_write uses the interrupt OUT pipe when the device has
/// one, which such a firmware never reads.
enum class UsbWrite { Control, Interrupt };

}  // namespace zelto
