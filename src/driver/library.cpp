// Placeholder translation unit until the host functions exist.
