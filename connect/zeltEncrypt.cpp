// decoder
