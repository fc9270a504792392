// A module that holds nothing but a damaged splash picture as its bitmap 104
// (built in by compat_add_resources), for the splash's bad-picture tests.
