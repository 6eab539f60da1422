#pragma once
// The words of the recovery file in the window: the question that offers what a crashed editor
// left, and the notice that crash protection is off.

#include <QString>
#include <string>
#include <vector>

#include "core/encodings.h"
#include "edit/recovery_file.h"

namespace zelto {

/// When the work was saved, on which processor, which channels differ from what is heard now, and
/// whether to restore it. `path` is the file, whose time stands in for a file without one.
QString RecoveryQuestion(const RecoveryData& data, const std::string& path, const std::vector<int>& differing,
                         Language lang);

/// "crash protection is off: " and why.
QString CrashProtectionOff(Language lang, const std::string& why);

}  // namespace zelto
