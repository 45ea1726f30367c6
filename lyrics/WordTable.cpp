#include "lyrics/WordTable.h"

namespace harmolin {

// The rows are written by tools/make_word_table.py, which checks the counts
// and the reading rules before it writes them.
const LyricWord kWordTable[kWordCount] = {
#include "lyrics/WordTable.inc"
};

} // namespace harmolin
