#pragma once

// One aligned 32-bit word read or written in one access, for values that are shared without
// a lock (the mixer, the wave miniport's rate and interval, its stream slots).

template <typename Word>
Word ReadWord(const Word& word) {
  return __atomic_load_n(&word, __ATOMIC_RELAXED);
}

template <typename Word>
void WriteWord(Word& word, Word value) {
  __atomic_store_n(&word, value, __ATOMIC_RELAXED);
}
