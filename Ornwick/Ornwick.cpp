// Library initialisation.
