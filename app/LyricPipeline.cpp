#include "app/LyricPipeline.h"

#include "app/SongPreparation.h"
#include "app/WorkingFolder.h"
#include "lyrics/LyricWriter.h"

namespace harmolin {

std::unique_ptr<LyricSong> prepareAndWriteLyrics(const std::string& path, int melodyChannel, int songType,
                                                 const std::string& workingFolder, EngineRandom& random,
                                                 int guideVolume) {
    const std::string prepared = joinPath(workingFolder, kPreparedFile);
    if (!prepareSong(path, PrepareOptions{melodyChannel, guideVolume}, prepared)) return nullptr;
    const LyricClass lyricClass = lyricClassOf(songType);
    // Preparation has moved the melody to channel 1.
    return writeLyrics(prepared, 0, lyricClass.styleClass, lyricClass.variantMask, random);
}

std::unique_ptr<LyricSong> generateSong(SongComposer& composer, int songType, StyleChoice style,
                                        const std::string& workingFolder, int guideVolume) {
    const std::string composed = joinPath(workingFolder, kComposedFile);
    if (!composer.composeSong(style, composed)) return nullptr;
    // The engine writes the melody on channel 2.
    return prepareAndWriteLyrics(composed, 2, songType, workingFolder, composer.state().rng, guideVolume);
}

} // namespace harmolin
