#include "shell/settings_store.h"

#include "shell/settings_file.h"

namespace hsc {

int IniSettingsStore::read(MaskSettings& settings) {
    unreadable_.clear();
    return hsc_read_ini(settings, file_, &unreadable_);
}

int IniSettingsStore::write(const MaskSettings& settings) { return hsc_write_ini(settings, file_); }

}  // namespace hsc
