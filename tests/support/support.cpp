// Keeps the support library non-empty while its helpers are header-only.
