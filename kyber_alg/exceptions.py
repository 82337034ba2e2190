class InvalidSignature(Exception):
    pass


class InvalidTag(Exception):
    pass
