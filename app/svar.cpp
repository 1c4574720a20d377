#include "app/svar.h"

#include "app/Settings.h"

namespace svar {

TOptions::TOptions() {
    sonvale::app::ApplyOptionDefaults(*this);
}

tMsMixerSystem* MixerSystem = nullptr;
unaLameMp3Enc* Mp3Encoder = nullptr;
bool PlayerLibraryMissing = false;
std::atomic<unaLameMp3Enc*> ActiveEncoder{nullptr};
int32_t ElapsedSeconds = 0;
std::string RecordFileName;
std::string PlayFileName;
int32_t PlayPercent = 0;
TOptions AppSettings;
int32_t AppState = stIdle;
bool ListChanged = false;

void ResetSharedState() {
    MixerSystem = nullptr;
    Mp3Encoder = nullptr;
    PlayerLibraryMissing = false;
    ActiveEncoder = nullptr;
    ElapsedSeconds = 0;
    RecordFileName.clear();
    PlayFileName.clear();
    PlayPercent = 0;
    AppSettings = TOptions{};
    AppState = stIdle;
    ListChanged = false;
}

} // namespace svar
