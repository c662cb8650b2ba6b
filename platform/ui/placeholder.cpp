// Replaced as the layer's first Qt modules land.
