// Exported entry points of the WAV tone writer.
#include <pelkor16.h>

#include "wave/wave_writer.h"

extern "C" {

PELKOR_API mfbwave_writer *PELKOR_CALL mfbwave_create(const char *file_name) {
  return pelkor::CreateWaveFile(file_name);
}

PELKOR_API void PELKOR_CALL mfbwave_add_tone(mfbwave_writer *writer, int32_t frequency_hz, int32_t duration_ms) {
  pelkor::AddWaveTone(writer, frequency_hz, duration_ms);
}

PELKOR_API void PELKOR_CALL mfbwave_close(mfbwave_writer *writer) { pelkor::CloseWaveFile(writer); }

}  // extern "C"
