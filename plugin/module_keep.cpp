// The module's code lives in orbel_plugin and orbel_kernel (linked whole);
// a module target needs at least one source of its own.
