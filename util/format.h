// (placeholder: the positional formatter is being written)
#pragma once
