// The built-in message store.
