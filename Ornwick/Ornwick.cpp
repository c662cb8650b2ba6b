// Library initialisation. Loading the library needs no work of its own: the
// Base64 tables are constant data and the HTTP layer initialises itself on
// the first session, so there is no entry point and no application object.
