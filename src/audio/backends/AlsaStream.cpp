// Placeholder until the worker-thread stream lands.
