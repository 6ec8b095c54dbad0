// Work in progress: shared test fixtures land beside this file.
