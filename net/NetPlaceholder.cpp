// Replaced by the socket layer sources.
