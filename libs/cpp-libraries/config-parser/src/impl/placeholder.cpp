// removed once the library has sources
