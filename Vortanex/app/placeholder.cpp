// Replaced as the first Qt sources of this folder land.
