// IR to GDSII conversion lands here.
