// Process-wide state of the engine (filled in by the start-up and item-table code).
