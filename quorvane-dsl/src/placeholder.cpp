// The language library; modules land beside this file.
