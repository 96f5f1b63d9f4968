// Replaced by the watch store sources.
